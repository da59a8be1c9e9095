// tinyobjloader, compiled here for the Windows build (Debian ships it as a
// Linux library).
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
