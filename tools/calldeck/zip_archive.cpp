// calldeck export --zip: the archive; see zip_archive.h.
#include "zip_archive.h"

#include <zip.h>

#include <stdexcept>

namespace calldeck {

ZipArchive::ZipArchive(const std::string& path) : path_(path) {
    int error = 0;
    archive_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive_) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        const std::string reason = zip_error_strerror(&e);
        zip_error_fini(&e);
        throw std::runtime_error("cannot write the archive " + path + ": " + reason);
    }
}

ZipArchive::~ZipArchive() {
    if (archive_) zip_discard(archive_);
}

void ZipArchive::Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + zip_strerror(archive_));
}

void ZipArchive::Add(const std::string& name, const std::string& file) {
    zip_source_t* source = zip_source_file(archive_, file.c_str(), 0, -1);
    if (!source) Fail("cannot read " + file + " into the archive");
    const zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        Fail("cannot add " + name + " to the archive");
    }
    if (zip_set_file_compression(archive_, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0)
        Fail("cannot store " + name + " in the archive");
}

void ZipArchive::Commit() {
    if (zip_close(archive_) != 0) {
        const std::string reason = zip_strerror(archive_);
        zip_discard(archive_);
        archive_ = nullptr;
        throw std::runtime_error("cannot write the archive " + path_ + ": " + reason);
    }
    archive_ = nullptr;
}

}  // namespace calldeck
