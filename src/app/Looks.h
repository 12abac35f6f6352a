#pragma once

#include <QString>

#include <optional>

// The stored skins "Style_0" to "Style_7" and the look file.
namespace Looks {

inline constexpr int kMenuLooks = 7;  // the menu offers 0 to 6
inline constexpr int kSkins = 8;      // 7 only through the look file

// Applies skin n application-wide; false (look unchanged) when there is no
// such skin.
bool applySkin(int n);
// The skin number a look file's content names; nothing when it is not a
// decimal number (surrounding blanks and line breaks are allowed).
std::optional<int> parseLookFile(const QString &content);

} // namespace Looks
