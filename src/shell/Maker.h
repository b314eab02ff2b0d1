#pragma once

namespace kelvar {

// Who makes the program and what it is called. The maker's name and home
// page come from the build, which gives the package the same ones; the home
// page is empty when the build names none.
inline constexpr char MakerName[] = KELVAR_MAKER;
inline constexpr char MakerHomePage[] = KELVAR_HOMEPAGE;
inline constexpr char ApplicationTitle[] = "Kelvar Setup Software v" KELVAR_VERSION;
// UTF-8, for the trade mark sign.
inline constexpr char FileDescription[] = "Kelvar Actimar\u2122 Configuration Program";

} // namespace kelvar
