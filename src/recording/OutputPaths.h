#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tapewell {

// Where a recording goes: names under the base folder, made from the item's
// name or the address's last part. Pure functions, callable on any thread
// (MakeUniquePath looks at the file system).

// A name from the network or a file made safe as one file name: "/", "\",
// control characters and every ".." become "_", and it is cut to
// limits::kOutputNameBytes (never inside a UTF-8 sequence), so that it
// cannot leave the folder it is joined to.
std::string FolderSafeFileName(const std::string& name);

// base + "/" + the address's last part (query cut off) when name is empty;
// else base + "/" + name + the last part's extension, or ".asf" when it has
// none. An address with an empty last part and no name is named after its
// host ("host.asf").
std::filesystem::path MakeOutputPath(const std::filesystem::path& base, const std::string& address,
                                     const std::string& name);

// The first of "stem(0).ext" ... "stem(99).ext" that does not exist; nullopt
// when all of them do (the caller must not overwrite one).
std::optional<std::filesystem::path> MakeUniquePath(const std::filesystem::path& path);

}  // namespace tapewell
