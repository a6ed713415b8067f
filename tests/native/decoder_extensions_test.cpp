// The extension lists that decoders report, the table of picture extensions the package and
// the registration are made from, and the turn left to do after a platform decoder has
// decoded a picture whose orientation the real encoder fixtures carry.
#include "fitting/portable/decoded_orientation.h"
#include "fitting/portable/picture_extensions.h"
#include "shellext/portable/registry_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace framewise {
namespace {

TEST(DecoderExtensionLists, WindowsAndWineSpellingsJoinIntoOneList) {
  std::wstring joined;
  // Windows' BMP decoder, Wine's JPEG and TGA decoders, and a codec's careless spelling.
  AddExtensionList(L".bmp,.dib,.rle", &joined);
  AddExtensionList(L".jpg;.jpeg;.jfif", &joined);
  AddExtensionList(L".tga;.tpic", &joined);
  AddExtensionList(L" .JPG , *.WebP;heic;;,", &joined);
  EXPECT_EQ(joined, L";.bmp;.dib;.rle;.jpg;.jpeg;.jfif;.tga;.tpic;.webp;.heic;");

  // Entries that name no extension add nothing; 32 characters after the dot is the longest.
  std::wstring rejected;
  const std::wstring longest(32, L'x'), tooLong(33, L'x');
  for (const wchar_t* list : {L"", L";", L" , ", L".", L"*", L"*.*", L".a/b", L".a\\b", L".a:b",
                              L".a?", L"..a", L".a.b", L".a\"b", L".a\tb", L".a\x1F"}) {
    AddExtensionList(list, &rejected);
  }
  AddExtensionList(L"." + tooLong, &rejected);
  EXPECT_EQ(rejected, L";");
  AddExtensionList(L"." + longest, &rejected);
  EXPECT_EQ(rejected, L";." + longest + L";");
  // Controls end below the space; a space or a "!" inside an extension is allowed.
  std::wstring printable;
  AddExtensionList(L".a b;.a!b", &printable);
  EXPECT_EQ(printable, L";.a b;.a!b;");
}

// A list longer than its room keeps its first whole entries: an entry cut in part would
// take names no decoder lists.
TEST(DecoderExtensionLists, AListTooLongKeepsItsWholeEntries) {
  const std::wstring list = L";.jpg;.jpeg;.webp;";  // 18 characters
  std::wstring fits = list;
  CutExtensionList(18, &fits);
  EXPECT_EQ(fits, list);

  const struct {
    size_t capacity;
    const wchar_t* kept;
  } cases[] = {
      {17, L";.jpg;.jpeg;"}, {13, L";.jpg;.jpeg;"}, {12, L";.jpg;.jpeg;"},
      {11, L";.jpg;"},       {6, L";.jpg;"},        {5, L";"},
  };
  for (const auto& c : cases) {
    std::wstring cut = list;
    CutExtensionList(c.capacity, &cut);
    EXPECT_EQ(cut, c.kept) << c.capacity;
    EXPECT_FALSE(ListHasNameExtension(cut, L"photo.jp")) << c.capacity;
    EXPECT_FALSE(ListHasNameExtension(cut, L"photo.web")) << c.capacity;
  }
  // A first entry longer than all the room leaves nothing to match.
  std::wstring none = L".jpeg;";
  CutExtensionList(3, &none);
  EXPECT_FALSE(ListHasNameExtension(none, L"a.jpeg"));
  EXPECT_LE(none.size(), 3u);
  CutExtensionList(0, &fits);
  EXPECT_EQ(fits, L"");

  // Three hundred decoders' extensions in the 2,047 characters the handler keeps: each
  // kept one still matches, the first dropped one no longer does.
  std::wstring joined;
  for (int i = 0; i < 300; ++i) AddExtensionList(L".ext" + std::to_wstring(1000 + i), &joined);
  ASSERT_GT(joined.size(), 2047u);
  CutExtensionList(2047, &joined);
  EXPECT_LE(joined.size(), 2047u);
  EXPECT_GT(joined.size(), 2047u - 9u);  // no more than one entry's room is left unused
  EXPECT_EQ(joined.back(), L';');
  const size_t kept = (joined.size() - 1) / 9;
  EXPECT_TRUE(ListHasNameExtension(joined, L"x.ext" + std::to_wstring(1000 + kept - 1)));
  EXPECT_FALSE(ListHasNameExtension(joined, L"x.ext" + std::to_wstring(1000 + kept)));
}

TEST(DecoderExtensionLists, ANameMatchesByItsOwnLastExtension) {
  std::wstring joined;
  AddExtensionList(L".jxr;.hdp;.wdp", &joined);
  AddExtensionList(L".webp", &joined);
  AddExtensionList(L"z", &joined);  // a one-letter extension
  const struct {
    const wchar_t* path;
    bool matches;
  } cases[] = {
      {L"C:\\Pictures\\Screenshot.JXR", true},
      {L"\\\\server\\share\\a.b.webp", true},
      {L"relative.wdp", true},
      {L"C:\\Pictures.webp\\photo", false},  // the folder's extension, not the file's
      {L"C:\\Pictures\\photo.webp.txt", false},
      {L"C:\\Pictures\\photo.web", false},
      {L"C:\\Pictures\\photo.webpx", false},
      {L"C:\\Pictures\\webp", false},
      {L"C:\\Pictures\\photo.", false},
      {L"C:\\Pictures\\photo.Z", true},
      {L"C:\\Pictures\\photo.y", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ListHasNameExtension(joined, c.path), c.matches) << testing::PrintToString(c.path);
  }
  EXPECT_FALSE(ListHasNameExtension(L"", L"a.webp"));
}

TEST(PictureExtensionsTest, EveryFormatTheHeaderReaderKnowsHasAnExtensionAndNoneRepeats) {
  const PictureFormat formats[] = {PictureFormat::Jpeg,  PictureFormat::Png,  PictureFormat::Gif,
                                   PictureFormat::Bmp,   PictureFormat::Tiff, PictureFormat::Ico,
                                   PictureFormat::Emf,   PictureFormat::Wmf,  PictureFormat::Webp,
                                   PictureFormat::Heif,  PictureFormat::Avif, PictureFormat::JpegXl,
                                   PictureFormat::JpegXr};
  for (PictureFormat format : formats) {
    bool found = false;
    for (size_t i = 0; i < kPictureExtensionCount; ++i)
      found |= kPictureExtensions[i].format == format;
    EXPECT_TRUE(found) << "format " << static_cast<int>(format);
  }
  for (size_t i = 0; i < kPictureExtensionCount; ++i) {
    const std::wstring name = kPictureExtensions[i].extension;
    EXPECT_EQ(name[0], L'.');
    EXPECT_EQ(NameExtension(L"x" + name), name) << "lower case, one dot";
    EXPECT_EQ(FindPictureExtension(L"C:\\a\\x" + name), &kPictureExtensions[i]);
    for (size_t j = i + 1; j < kPictureExtensionCount; ++j) {
      EXPECT_NE(name, kPictureExtensions[j].extension);
    }
  }
  // TGA has no extension here: Windows has no decoder for it and the header is read by name.
  EXPECT_EQ(FindPictureExtension(L"x.tga"), nullptr);
  EXPECT_EQ(FindPictureExtension(L"x.txt"), nullptr);
  ASSERT_NE(FindPictureExtension(L"C:\\DCIM\\IMG_0001.HEIC"), nullptr);
  EXPECT_EQ(FindPictureExtension(L"C:\\DCIM\\IMG_0001.HEIC")->format, PictureFormat::Heif);
  ASSERT_NE(FindPictureExtension(L"C:\\DCIM\\DSC_0001.NEF"), nullptr);
  EXPECT_EQ(FindPictureExtension(L"C:\\DCIM\\DSC_0001.NEF")->format, PictureFormat::Unknown);
}

// The classic entry reaches a file through the perceived type "image" or through a key of its
// own extension: the shipped script must give one to exactly the extensions Windows does not
// mark as pictures, and each must name the handler's class.
TEST(PictureExtensionsTest, TheScriptRegistersTheEntryForEveryExtensionNotPerceivedAsAPicture) {
  std::ifstream file(std::string(FRAMEWISE_SOURCE_DIR) + "/resources/imagefilecontextmenu.rgs",
                     std::ios::binary);
  ASSERT_TRUE(file);
  const std::string narrow((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  RegistryScript script;
  ScriptError error;
  ASSERT_TRUE(ParseRegistryScript(std::wstring(narrow.begin(), narrow.end()),
                                  {{L"MODULE", L"C:\\F.dll"}, {L"APPID", L"{A}"}}, &script,
                                  &error));
  const ScriptNode* associations = nullptr;
  for (const ScriptNode& node : script.blocks[0].children) {
    if (node.name == L"SystemFileAssociations") associations = &node;
  }
  ASSERT_NE(associations, nullptr);
  std::set<std::wstring> registered;
  for (const ScriptNode& type : associations->children) {
    ASSERT_EQ(type.children.size(), 1u);
    const ScriptNode& shellEx = type.children[0];
    ASSERT_EQ(shellEx.name, L"ShellEx");
    ASSERT_EQ(shellEx.children.size(), 1u);
    ASSERT_EQ(shellEx.children[0].name, L"ContextMenuHandlers");
    ASSERT_EQ(shellEx.children[0].children.size(), 1u);
    const ScriptNode& entry = shellEx.children[0].children[0];
    EXPECT_EQ(entry.marker, ScriptMarker::ForceRemove);
    EXPECT_EQ(entry.data, L"{9E98A0EF-181B-4833-950B-95810A938222}") << type.name;
    // Only the perceived type's key is shared with the system; an extension's key goes
    // when nothing of another program's is left in it.
    EXPECT_EQ(type.marker, type.name == L"image" ? ScriptMarker::NoRemove : ScriptMarker::Plain);
    EXPECT_TRUE(registered.insert(type.name).second) << testing::PrintToString(type.name);
  }
  std::set<std::wstring> expected = {L"image"};
  for (size_t i = 0; i < kPictureExtensionCount; ++i) {
    if (!kPictureExtensions[i].perceivedImage) expected.insert(kPictureExtensions[i].extension);
  }
  EXPECT_EQ(registered, expected);
}

// ---- the turn left after decoding ----

PictureHeader FixtureHeader(const std::string& name) {
  std::ifstream in(std::string(FRAMEWISE_SOURCE_DIR) + "/tests/fixtures/formats/" + name,
                   std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  MemoryByteSource source(bytes.data(), bytes.size());
  PictureHeader header;
  EXPECT_TRUE(ReadPictureHeader(source, &header)) << name;
  return header;
}

TEST(DecodedOrientation, ATurnInsideThePictureIsAppliedOnceWhoeverDecodesIt) {
  // avifenc's files of every orientation, each stored 40 x 24.
  for (int o = 1; o <= 8; ++o) {
    const std::string name = "avif/o" + std::to_string(o) + "_40x24.avif";
    const PictureHeader header = FixtureHeader(name);
    ASSERT_EQ(header.orientation, o) << name;
    if (o >= 5) {
      // A quarter turn shows in the frame: turned by the decoder, or left as stored;
      // what the frame reports cannot make it turn twice.
      EXPECT_EQ(OrientationLeftAfterDecode(header, 24, 40, 0), 1) << name;
      EXPECT_EQ(OrientationLeftAfterDecode(header, 24, 40, o), 1) << name;
      EXPECT_EQ(OrientationLeftAfterDecode(header, 40, 24, 0), o) << name;
      EXPECT_EQ(OrientationLeftAfterDecode(header, 40, 24, 1), o) << name;
    } else if (o >= 2) {
      // A half turn or a mirror does not: the frame's report decides, else the decoder did it.
      EXPECT_EQ(OrientationLeftAfterDecode(header, 40, 24, o), o) << name;
      EXPECT_EQ(OrientationLeftAfterDecode(header, 40, 24, 1), 1) << name;
      EXPECT_EQ(OrientationLeftAfterDecode(header, 40, 24, 0), 1) << name;
    } else {
      // No turn in the picture: an EXIF orientation a decoder reports from inside does not count.
      EXPECT_EQ(OrientationLeftAfterDecode(header, 40, 24, 6), 1) << name;
    }
  }
  // A square picture's quarter turn does not show in its size either.
  const PictureHeader square{PictureFormat::JpegXl, 64, 64, 6};
  EXPECT_EQ(OrientationLeftAfterDecode(square, 64, 64, 6), 6);
  EXPECT_EQ(OrientationLeftAfterDecode(square, 64, 64, 0), 1);
  // A frame of some other size (a clean aperture applied): the report decides.
  EXPECT_EQ(OrientationLeftAfterDecode(FixtureHeader("jxl/container_o6_40x24.jxl"), 20, 12, 6), 6);
  EXPECT_EQ(OrientationLeftAfterDecode(FixtureHeader("jxl/container_o6_40x24.jxl"), 20, 12, 0), 1);
  // One side of the turned size alone is no turn.
  EXPECT_EQ(OrientationLeftAfterDecode(FixtureHeader("jxl/container_o6_40x24.jxl"), 24, 20, 6), 6);
  EXPECT_EQ(OrientationLeftAfterDecode(FixtureHeader("jxl/container_o6_40x24.jxl"), 30, 40, 6), 6);
}

TEST(DecodedOrientation, AnExifOrientationIsAlwaysLeftToTheCaller) {
  // cwebp's EXIF chunk: decoders give the stored pixels, whatever the frame says.
  const PictureHeader webp = FixtureHeader("webp/exif_o6_40x24.webp");
  ASSERT_EQ(webp.orientation, 6);
  EXPECT_EQ(OrientationLeftAfterDecode(webp, 40, 24, 0), 6);
  EXPECT_EQ(OrientationLeftAfterDecode(webp, 24, 40, 1), 6);
  // A camera RAW's header is its decoder's frame, with the orientation the frame states.
  const PictureHeader raw{PictureFormat::Unknown, 6000, 4000, 8};
  EXPECT_EQ(OrientationLeftAfterDecode(raw, 6000, 4000, 0), 8);
  // Out of range is no turn.
  const PictureHeader odd{PictureFormat::Heif, 40, 24, 9};
  EXPECT_EQ(OrientationLeftAfterDecode(odd, 40, 24, 3), 1);
  EXPECT_FALSE(OrientationInsideThePicture(PictureFormat::Tga));
  EXPECT_TRUE(OrientationInsideThePicture(PictureFormat::JpegXr));
}

}  // namespace
}  // namespace framewise
