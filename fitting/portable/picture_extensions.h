// The file name extensions of the pictures the product reads: the patterns of the system's
// built-in image decoders (their FilenameExtension lists) and those of the imaging
// component's decoders that Windows has or that the Store's codec packages add, each with
// the format the header reader (picture_header.h) knows it by. The package manifest's
// context-menu entries and the per-extension registration are made from this list; at run
// time the handlers still match the installed decoders. Also the extension lists decoders
// report, read into one form. No Windows header here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fitting/portable/picture_header.h"

namespace framewise {

struct PictureExtension {
  const wchar_t* extension;  // lower case, with the dot: L".jpg"
  // The format whose header reader reads it; Unknown where no reader does (camera RAW,
  // DDS): the picture's size then comes from its decoder.
  PictureFormat format;
  // True for the extensions the built-in decoders of the imaging library read, which Windows
  // marks as pictures (perceived type "image"); the others get a context-menu entry of their own.
  bool perceivedImage;
};

extern const PictureExtension kPictureExtensions[];
extern const size_t kPictureExtensionCount;

// The extension of a path's file name, lower case (ASCII letters), with its dot: L".jpg" for
// L"C:\\Photos\\Cat.JPG". Empty when the name has none.
std::wstring NameExtension(const std::wstring& path);

// The list's entry for a path's extension, or null when it is not listed.
const PictureExtension* FindPictureExtension(const std::wstring& path);

// Adds a decoder's extension list (".jpg,.jpeg,.jfif" or ".tga;.tpic": commas and semicolons
// both separate) to `joined`, a list of the form ";.jpg;.jpeg;" that names each extension
// once, lower case, with its dot. Spaces around an entry and a leading "*" are dropped, a
// missing dot is added; an entry that is empty, longer than 32 characters or holds
// characters no extension has ("*?/\\:;,.\" or controls) after its dot is skipped.
void AddExtensionList(const std::wstring& list, std::wstring* joined);

// Cuts a joined list longer than `capacity` characters after its last whole entry that
// fits, so that no extension is kept in part (".jp" of ".jpeg" would take other names).
void CutExtensionList(size_t capacity, std::wstring* joined);

// Whether a path's extension is one of a joined list's.
bool ListHasNameExtension(const std::wstring& joined, const std::wstring& path);

}  // namespace framewise
