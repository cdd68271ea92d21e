#include "archive/env_source.h"

#include <algorithm>
#include <ctime>

namespace miradel::archive {

namespace {

struct EnvFile {
  platform::Env* env = nullptr;
  std::string path;
  SourceShared* shared = nullptr;
  std::uint64_t size = 0;
  std::int64_t mtime = 0;
  std::uint64_t pos = 0;
  platform::FileHandle handle = platform::kNoFile;
  zip_error_t error;
};

zip_int64_t Fail(EnvFile* f, int code, const platform::Status& status, const char* operation) {
  zip_error_set(&f->error, code, 0);
  if (!status.ok() && f->shared)
    f->shared->Failed((status.operation().empty() ? status.With(operation, f->path) : status).ToString());
  return -1;
}

zip_int64_t Callback(void* user, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  EnvFile* f = static_cast<EnvFile*>(user);
  switch (cmd) {
    case ZIP_SOURCE_OPEN: {
      platform::Status s = f->env->OpenFile(f->path, platform::kRead,
                                            platform::kShareRead | platform::kShareWrite | platform::kShareDelete,
                                            platform::Disposition::kOpenExisting, &f->handle, nullptr);
      if (!s.ok()) return Fail(f, ZIP_ER_OPEN, s, "open");
      f->pos = 0;
      return 0;
    }
    case ZIP_SOURCE_READ: {
      if (f->shared && f->shared->stop.load(std::memory_order_relaxed)) {
        zip_error_set(&f->error, ZIP_ER_CANCELLED, 0);
        return -1;
      }
      std::size_t got = 0;
      const std::size_t want = static_cast<std::size_t>(std::min<zip_uint64_t>(len, 1u << 30));
      platform::Status s = f->env->Read(f->handle, data, want, &got);
      if (!s.ok()) return Fail(f, ZIP_ER_READ, s, "read");
      f->pos += got;
      if (f->shared && f->shared->count_bytes) {
        f->shared->bytes.fetch_add(got, std::memory_order_relaxed);
        if (f->shared->tick) f->shared->tick();
      }
      return static_cast<zip_int64_t>(got);
    }
    case ZIP_SOURCE_CLOSE: {
      platform::Status s = f->env->Close(f->handle);
      f->handle = platform::kNoFile;
      if (!s.ok()) return Fail(f, ZIP_ER_CLOSE, s, "close");
      if (f->shared && f->shared->count_bytes) f->shared->files.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
    case ZIP_SOURCE_SEEK: {
      zip_int64_t to = zip_source_seek_compute_offset(f->pos, f->size, data, len, &f->error);
      if (to < 0) return -1;
      platform::Status s = f->env->Seek(f->handle, static_cast<std::uint64_t>(to));
      if (!s.ok()) return Fail(f, ZIP_ER_SEEK, s, "seek");
      f->pos = static_cast<std::uint64_t>(to);
      return 0;
    }
    case ZIP_SOURCE_TELL:
      return static_cast<zip_int64_t>(f->pos);
    case ZIP_SOURCE_STAT: {
      zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &f->error);
      if (!st) return -1;
      zip_stat_init(st);
      st->size = f->size;
      st->mtime = static_cast<std::time_t>(f->mtime);
      st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      return sizeof(*st);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
      // A plain file, rw-r--r--, whatever the platform: unzip then makes ordinary files everywhere.
      zip_file_attributes_t* a = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, len, &f->error);
      if (!a) return -1;
      a->host_system = ZIP_OPSYS_UNIX;
      a->external_file_attributes = 0100644u << 16;
      a->valid |= ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
      return 0;
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&f->error, data, len);
    case ZIP_SOURCE_FREE:
      if (f->handle != platform::kNoFile) f->env->Close(f->handle).IgnoreError();
      zip_error_fini(&f->error);
      delete f;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                            ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
      zip_error_set(&f->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

zip_source_t* EnvSource(platform::Env& env, const std::string& path, SourceShared* shared, zip_error_t* error) {
  platform::FileInfo info;
  platform::Status s = env.GetFileInfo(path, &info);
  if (s.ok() && info.is_directory)
    s = platform::Status::Error(platform::ErrorKind::kOther, 0, "is a directory, not a file").With("read", path);
  if (!s.ok()) {
    if (shared) shared->Failed((s.operation().empty() ? s.With("status", path) : s).ToString());
    zip_error_set(error, ZIP_ER_OPEN, 0);
    return nullptr;
  }
  EnvFile* f = new EnvFile;
  f->env = &env;
  f->path = path;
  f->shared = shared;
  f->size = info.size;
  f->mtime = info.mtime.seconds;
  zip_error_init(&f->error);
  zip_source_t* src = zip_source_function_create(Callback, f, error);
  if (!src) {
    zip_error_fini(&f->error);
    delete f;
  }
  return src;
}

zip_t* OpenArchiveForReading(platform::Env& env, const std::string& path, SourceShared* shared, zip_error_t* error) {
  zip_source_t* src = EnvSource(env, path, shared, error);
  if (!src) return nullptr;
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, error);
  if (!za) zip_source_free(src);
  return za;
}

zip_t* CreateArchive(const std::string& path, zip_error_t* error) {
#ifdef _WIN32
  zip_source_t* src = zip_source_win32a_create(path.c_str(), 0, -1, error);
#else
  zip_source_t* src = zip_source_file_create(path.c_str(), 0, -1, error);
#endif
  if (!src) return nullptr;
  zip_t* za = zip_open_from_source(src, ZIP_CREATE | ZIP_TRUNCATE, error);
  if (!za) zip_source_free(src);
  return za;
}

}  // namespace miradel::archive
