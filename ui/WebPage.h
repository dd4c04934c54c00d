// Platform seam: opening a web page in the user's browser.
#pragma once

// Hands an "https://" address to the platform (the shell on Windows, xdg-open elsewhere) and returns whether
// that started; whatever happens to the page afterwards is the platform's. Any other address, or none, is
// refused without doing anything. The address is passed as one argument, never through a command shell.
bool OpenWebPage(const char* address);
