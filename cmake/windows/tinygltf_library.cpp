// tinygltf, compiled here for the Windows build (Debian ships it as a Linux
// library), with stb's decoder and writer from zor_host_stb.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
