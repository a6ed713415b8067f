#include "fitting/portable/picture_extensions.h"

namespace framewise {

// In the decoders' order: BMP, JPEG, GIF, EMF, WMF, TIFF, PNG, ICO.
const PictureExtension kPictureExtensions[] = {
    {L".bmp", PictureFormat::Bmp},   {L".dib", PictureFormat::Bmp},
    {L".rle", PictureFormat::Bmp},   {L".jpg", PictureFormat::Jpeg},
    {L".jpeg", PictureFormat::Jpeg}, {L".jpe", PictureFormat::Jpeg},
    {L".jfif", PictureFormat::Jpeg}, {L".gif", PictureFormat::Gif},
    {L".emf", PictureFormat::Emf},   {L".wmf", PictureFormat::Wmf},
    {L".tif", PictureFormat::Tiff},  {L".tiff", PictureFormat::Tiff},
    {L".png", PictureFormat::Png},   {L".ico", PictureFormat::Ico},
};
const size_t kPictureExtensionCount = sizeof(kPictureExtensions) / sizeof(kPictureExtensions[0]);

}  // namespace framewise
