// Stand-in for handing a URL to the user's default browser. Tests replace the opener to see
// what would have been opened.
#pragma once

#include <functional>
#include <string>

namespace qelo::ui {

constexpr int SW_SHOWNORMAL = 1;

// Opens file (GBK) with the verb ("open"); the owner, parameters, directory and show command
// are accepted for the caller's sake and ignored. Returns a value above 32 when the hand-over
// was accepted.
int ShellExecuteA(void* owner, const char* verb, const char* file, const char* parameters,
                  const char* directory, int show);

// Replaces the opener (GBK URL in); returns the one in force. Empty restores the default.
using BrowserOpener = std::function<bool(const std::string& url)>;
BrowserOpener SetBrowserOpener(BrowserOpener opener);

}  // namespace qelo::ui
