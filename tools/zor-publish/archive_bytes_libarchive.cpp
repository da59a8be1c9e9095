// Archives through libarchive and the smallest gzip through libdeflate: the
// native build's archive_bytes.h.

#include <archive.h>
#include <archive_entry.h>
#include <libdeflate.h>

#include <clocale>
#include <locale.h>
#include <memory>
#include <stdexcept>
#include <string>

#include "archive_bytes.h"

namespace zor::publish {
namespace {

struct ArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

// The archive's bytes, gathered in memory: a bundle is a few megabytes.
la_ssize_t appendBytes(archive*, void* bytes, const void* data, std::size_t size) {
    const auto* begin = static_cast<const std::uint8_t*>(data);
    static_cast<Bytes*>(bytes)->insert(static_cast<Bytes*>(bytes)->end(), begin, begin + size);
    return static_cast<la_ssize_t>(size);
}

// libarchive turns names into the locale's encoding and back: for the time
// it works, this thread's locale is one whose encoding is UTF-8, whatever
// the process's is (in the C locale a name that is not ASCII fails, or
// crashes its tar writer).
class Utf8Locale {
public:
    Utf8Locale() : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
        if (utf8_) previous_ = uselocale(utf8_);
    }
    ~Utf8Locale() {
        if (!utf8_) return;
        uselocale(previous_);
        freelocale(utf8_);
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t utf8_;
    locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace

const char* archiveWriter() { return "libarchive"; }

Bytes archiveBytes(ArchiveKind kind, std::string_view top, const std::vector<write::DataFile>& files,
                   std::int64_t when) {
    const Utf8Locale names;
    Bytes bytes;
    std::unique_ptr<archive, ArchiveFree> a(archive_write_new());
    if (kind == ArchiveKind::Zip) {
        archive_write_set_format_zip(a.get());
        // Names are UTF-8 whatever the locale, and flagged so where they are
        // not ASCII.
        archive_write_set_format_option(a.get(), "zip", "hdrcharset", "UTF-8");
    } else {
        archive_write_set_format_pax_restricted(a.get());
        archive_write_add_filter_gzip(a.get());
        archive_write_set_filter_option(a.get(), "gzip", "compression-level", "9");
        archive_write_set_filter_option(a.get(), "gzip", "timestamp", nullptr);  // no time in the gzip header
    }
    const auto failed = [&](const std::string& what) {
        const char* why = archive_error_string(a.get());
        return std::runtime_error(what + ": " + (why ? why : "failed"));
    };
    // Output in blocks of one byte's padding: the archive ends where its data does.
    archive_write_set_bytes_in_last_block(a.get(), 1);
    if (archive_write_open(a.get(), &bytes, nullptr, appendBytes, nullptr) != ARCHIVE_OK) throw failed("cannot write");
    const auto header = [&](const std::string& name, mode_t type, int mode, la_int64_t size) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), type);
        archive_entry_set_perm(entry.get(), mode);
        archive_entry_set_size(entry.get(), size);
        archive_entry_set_mtime(entry.get(), static_cast<std::time_t>(when), 0);
        archive_entry_set_uid(entry.get(), 0);
        archive_entry_set_gid(entry.get(), 0);
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK) throw failed("cannot write " + name);
    };
    const std::string folder(top);
    header(folder + "/", AE_IFDIR, 0755, 0);
    for (const write::DataFile& f : files) {
        header(folder + "/" + f.name, AE_IFREG, f.name.ends_with(".exe") ? 0755 : 0644,
               static_cast<la_int64_t>(f.bytes.size()));
        if (!f.bytes.empty() &&
            archive_write_data(a.get(), f.bytes.data(), f.bytes.size()) != static_cast<la_ssize_t>(f.bytes.size()))
            throw failed("cannot write " + f.name);
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) throw failed("cannot write");
    return bytes;
}

Bytes gzippedSmallest(std::span<const std::uint8_t> data) {
    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(12), libdeflate_free_compressor);
    if (!compressor) throw std::bad_alloc();
    Bytes out(libdeflate_gzip_compress_bound(compressor.get(), data.size()));
    const std::size_t size = libdeflate_gzip_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
    if (size == 0) throw std::runtime_error("libdeflate cannot compress");
    out.resize(size);
    return out;
}

}  // namespace zor::publish
