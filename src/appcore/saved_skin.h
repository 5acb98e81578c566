// Putting the saved skin back on at start-up: settings.cfg names the skin, skins/NAME.skn is
// its cached container.
#pragma once

#include <string>

#include "skin/skin_data.h"

namespace qelo::app {

// Reads appDir + "settings.cfg" and, when the skin it names is cached under appDir + "skins/",
// loads that container into the holder. Returns the skin name in force: the saved one, or
// "Charm" when there is no settings file, the named skin is not cached, the file does not
// decode or the container fails to load (the holder then keeps or puts back its skin). Never
// raises for a damaged settings file or container.
std::string LoadSavedSkin(skin::TskSkinData& holder, const std::string& appDir);

}  // namespace qelo::app
