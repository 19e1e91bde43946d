// Texts of the library (operation names, result titles, fixed messages) as the interface
// shows them. The library has no Qt, so its literals are listed for lupdate in
// library_texts.cpp under the context "quillon" and translated here, where the GUI shows them.
#pragma once

#include <QString>

#include <string>

namespace quillon::ui {

// The library text in the interface language; a text with no translation (a formatted
// message with a file name or number in it) comes back unchanged, in German.
QString trLibrary(const char* text);
QString trLibrary(const std::string& text);

} // namespace quillon::ui
