#include "platform/device_music.h"

#include <algorithm>

#include "system/files.h"
#include "system/text.h"

namespace zor {

namespace {

// The device's reason, or a plain one when it gives none.
std::string reasonOf(const SoundDevice& device, const char* otherwise) {
    return device.error().empty() ? std::string(otherwise) : device.error();
}

}  // namespace

// ---- BASS-like -------------------------------------------------------------

DeviceBass::~DeviceBass() { BASS_Free(); }

int DeviceBass::BASS_Init(int /*device*/, std::uint32_t frequency, std::uint32_t /*flags*/, void* /*window*/) {
    if (ready_) {
        error_ = "already initialised";
        return 0;
    }
    const int rate = frequency > 0 && frequency <= 192000 ? static_cast<int>(frequency) : kMusicRate;
    switch (device_.open(rate)) {
    case SoundOpening::Opened: silence_.clear(); break;
    case SoundOpening::NoDevice: silence_ = reasonOf(device_, "none found"); break;
    case SoundOpening::Failed: error_ = reasonOf(device_, "the sound device cannot be opened"); return 0;
    }
    ready_ = true;
    return 1;
}

int DeviceBass::BASS_Start() { return ready_ ? 1 : 0; }

StreamHandle DeviceBass::BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                               std::uint32_t length, std::uint32_t /*flags*/) {
    if (!ready_) {
        error_ = "not initialised";
        return 0;
    }
    if (inMemory || offset != 0 || length != 0 || !file) {
        error_ = "only whole files named by their path can be played";
        return 0;
    }
    Stream made;
    if (!silent()) {
        const SoundPiece piece = device_.load(static_cast<const char*>(file));
        if (piece.id == 0) {
            error_ = device_.error();
            return 0;
        }
        made.piece = piece.id;
    }
    streams_.push_back(made);
    return static_cast<StreamHandle>(streams_.size());
}

DeviceBass::Stream* DeviceBass::stream(StreamHandle handle) {
    if (handle == 0 || handle > streams_.size() || !streams_[handle - 1].open) return nullptr;
    return &streams_[handle - 1];
}

int DeviceBass::BASS_StreamPlay(StreamHandle handle, int /*flush*/, std::uint32_t /*flags*/) {
    const Stream* playing = stream(handle);
    if (!playing) {
        error_ = "no such stream";
        return 0;
    }
    if (silent()) return 1;
    if (!device_.play(playing->piece, 0, 1)) {
        error_ = device_.error();
        return 0;
    }
    return 1;
}

int DeviceBass::BASS_Stop() {
    if (!ready_) return 0;
    if (!silent()) device_.stop();
    return 1;
}

void DeviceBass::BASS_StreamFree(StreamHandle handle) {
    Stream* freed = stream(handle);
    if (!freed) return;
    if (freed->piece != 0) device_.release(freed->piece);
    freed->open = false;
}

void DeviceBass::BASS_Free() {
    if (!ready_) return;
    for (StreamHandle handle = 1; handle <= streams_.size(); ++handle) BASS_StreamFree(handle);
    streams_.clear();
    if (!silent()) device_.close();
    ready_ = false;
}

// ---- gaudio-like -----------------------------------------------------------

class DeviceGaudio::Audio final : public GAUDIO1, public Mp3StreamDriver {
public:
    explicit Audio(SoundDevice& device) : device_(device) {}
    ~Audio() override { ShutDown(); }

    std::int32_t Init(std::uint32_t /*flags*/) override {
        if (ready_) {
            error_ = "already initialised";
            return 0;
        }
        switch (device_.open(kMusicRate)) {
        case SoundOpening::Opened: silence_.clear(); break;
        case SoundOpening::NoDevice: silence_ = reasonOf(device_, "none found"); break;
        case SoundOpening::Failed: error_ = reasonOf(device_, "the sound device cannot be opened"); return 0;
        }
        ready_ = true;
        return 1;
    }

    MP3STREAM1* GetStreamInterface(std::uint32_t version) override {
        if (version != kGaudioStreamVersion || !ready_) return nullptr;
        kill(stream_);
        stream_ = MP3STREAM1{};
        stream_.driver = this;
        return &stream_;
    }

    void ShutDown() override {
        if (!ready_) return;
        kill(stream_);
        forgetPiece();
        if (!silent()) device_.close();
        ready_ = false;
    }

    std::int32_t initialize(MP3STREAM1& stream) override {
        if (!ready_) {
            error_ = "not initialised";
            return 0;
        }
        if (stream.sourceIsFile != 1 || !stream.fileName) {
            error_ = "only files named by their path can be played";
            return 0;
        }
        kill(stream);
        if (!silent() && !keepsPiece(stream.fileName)) {
            forgetPiece();
            piece_ = device_.load(stream.fileName);
            if (piece_.id == 0) {
                error_ = device_.error();
                return 0;
            }
            pieceName_ = stream.fileName;
            pieceKnown_ = system_files::statusOf(pathFromUtf8(pieceName_), pieceStatus_);
        }
        opened_ = true;
        return 1;
    }

    void play(MP3STREAM1& stream) override {
        if (!opened_ || silent()) return;
        const auto milliseconds = static_cast<std::uint64_t>(std::max(stream.startMilliseconds, 0));
        const std::uint64_t start = milliseconds * static_cast<std::uint64_t>(piece_.rate) / 1000;
        if (!device_.play(piece_.id, start, stream.playCount)) error_ = device_.error();
    }

    void setVolume(MP3STREAM1&, float volume) override {
        if (ready_ && !silent()) device_.setVolume(volume);
    }

    // The piece stays with the device for the next Initialize of the same
    // file.
    void kill(MP3STREAM1&) override {
        if (opened_ && !silent()) device_.stop();
        opened_ = false;
    }

    const std::string& error() const { return error_; }
    const std::string& silence() const { return silence_; }

private:
    bool silent() const { return !silence_.empty(); }

    // Whether the piece loaded last is this file as it is now, so that a
    // stream started again at another time (the preview's seeks) is not
    // read and decoded again.
    bool keepsPiece(const std::string& fileName) const {
        system_files::FileStatus now;
        return piece_.id != 0 && pieceKnown_ && fileName == pieceName_ &&
               system_files::statusOf(pathFromUtf8(fileName), now) && now == pieceStatus_;
    }

    void forgetPiece() {
        if (piece_.id != 0) device_.release(piece_.id);
        piece_ = SoundPiece{};
        pieceName_.clear();
        pieceKnown_ = false;
    }

    SoundDevice& device_;
    MP3STREAM1 stream_;
    bool ready_ = false;
    bool opened_ = false;  // Initialize succeeded and no Kill since
    SoundPiece piece_;
    std::string pieceName_;
    system_files::FileStatus pieceStatus_;
    bool pieceKnown_ = false;
    std::string silence_;
    std::string error_;
};

DeviceGaudio::DeviceGaudio(SoundDevice& device) : audio_(std::make_unique<Audio>(device)) {}
DeviceGaudio::~DeviceGaudio() = default;

GAUDIO1* DeviceGaudio::GA_GetInterface(std::uint32_t version) {
    return version == kGaudioInterfaceVersion ? audio_.get() : nullptr;
}

std::string DeviceGaudio::lastError() const { return audio_->error(); }
std::string DeviceGaudio::silence() const { return audio_->silence(); }

}  // namespace zor
