// Hands a link to the user's default browser. Tests replace the opener to see what would have
// been opened.
#pragma once

#include <functional>
#include <string>

namespace qelo::ui {

// Opens url (GBK) in the default browser when it is an http or https link (the scheme compared
// without regard to case); any other link, a local file's included, is dropped without a word.
// True when the opener accepted the link.
bool OpenInBrowser(const std::string& url);

// Replaces the opener (GBK URL in); returns the one in force. Empty restores the default.
using BrowserOpener = std::function<bool(const std::string& url)>;
BrowserOpener SetBrowserOpener(BrowserOpener opener);

}  // namespace qelo::ui
