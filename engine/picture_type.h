// Pictures whose address has no extension: listed from where only a picture
// can stand, typed by the Content-Type of their answer.
#pragma once
#include <cstddef>

#include "analysis/links.h"

// True when the address's last path segment is not empty and has no
// extension ("…/avatar/cc6f7a?s=48"); "…/dir/" and "http://host" have none.
bool HasNoPathExtension(const char* address);

// True when any picture type is selected.
bool AnyPictureType(const TypeFilter& filter);

// What an answer's Content-Type makes of an untyped picture.
enum PictureAnswer {
    PictureTyped,     // a selected picture type: save it with its extension
    PictureUnticked,  // a picture of a type not selected (or not known)
    PictureNot,       // no picture at all (an HTML error page, say)
};

// Reads contentType ("image/jpeg; …", nullptr or "" for none); on
// PictureTyped extensionOut (room for 8) receives "jpg", "png", "gif",
// "webp", "avif" or "bmp", else "".
PictureAnswer JudgePictureAnswer(const char* contentType, const TypeFilter& filter,
                                 char* extensionOut, size_t extensionSize);

// The address with "." and the extension put after its path, before any
// query or fragment: the address a saved name is made from. false when it
// would be longer than an address.
bool TypedAddress(const char* address, const char* extension, char* out, size_t outSize);
