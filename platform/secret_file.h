// A small secret kept in a file only its owner may read (a key): read when
// it is there, made on first use. The file is created with O_EXCL and
// O_NOFOLLOW, mode 0600, written whole under a temporary name and linked
// into place, so two first users agree on one secret and no reader sees
// half of one. A link, a non-regular file or one that others may read is
// refused. Any thread.
#ifndef PLATFORM_SECRET_FILE_H_
#define PLATFORM_SECRET_FILE_H_

#include <functional>
#include <optional>
#include <string>

namespace platform {

// The contents of the secret file at `path`, made with `make()` when
// there is none; nullopt with `error` saying why when it cannot be read
// or made.
std::optional<std::string> ReadOrMakeSecretFile(const std::string& path,
                                                const std::function<std::string()>& make,
                                                std::string* error);

}  // namespace platform

#endif  // PLATFORM_SECRET_FILE_H_
