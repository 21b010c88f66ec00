// Page addresses in what is dragged onto the main window: text or a link
// from a browser, or an Internet shortcut (.url file) from the file manager.
#pragma once
#include <cstddef>

// The first http:// or https:// address (any case) in text of the given
// length: it begins at the text's start or after a blank, quote or '<', and
// ends before the next blank, control character, quote, '<' or '>'. Longer
// addresses are cut to size - 1 bytes. False when the text holds none.
bool AddressFromDroppedText(const char* text, size_t length, char* address, size_t size);

// The URL= value of the [InternetShortcut] section of a .url file's text,
// when it is an http:// or https:// address. False otherwise.
bool AddressFromShortcut(const char* content, size_t length, char* address, size_t size);
