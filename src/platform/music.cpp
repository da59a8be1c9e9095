#include "platform/music.h"

namespace zor {

// ---- the stream object's calls go to its library ---------------------------

std::int32_t MP3STREAM1::Initialize() { return driver ? driver->initialize(*this) : 0; }
void MP3STREAM1::Play() {
    if (driver) driver->play(*this);
}
void MP3STREAM1::SetVolume(float volume) {
    if (driver) driver->setVolume(*this, volume);
}
void MP3STREAM1::Kill() {
    if (driver) driver->kill(*this);
}

}  // namespace zor
