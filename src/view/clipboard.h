// Pictures and text between the document and the system clipboard. A copied picture goes out
// twice: as the block's bytes behind a BMP file header (image/bmp), which a paste in this
// program takes back byte for byte, and as an image that other programs receive in the format
// they ask for. A paste takes our bytes, any BMP, or any image Qt can read.
#pragma once

#include <QByteArray>
#include <QImage>
#include <memory>

#include "picture/dib_image.h"

class QMimeData;

inline constexpr char kBmpMimeType[] = "image/bmp";

// The scene text may use this many characters of its 400000-byte block.
constexpr std::size_t kPovTextCapacity = 399990;

// ---- Copy ----

// The picture as a BMP file: 14-byte file header, the 40-byte header and the rows; empty when
// the block holds no complete 24-bit picture.
QByteArray BmpBytesOfPicture(const DibImage& block);
// The picture as an image, top row first; null when the block holds no picture.
QImage ImageOfPicture(const DibImage& block);
// Both of them, ready for the clipboard; null when the block holds no picture.
std::unique_ptr<QMimeData> MimeDataOfPicture(const DibImage& block);

// ---- Paste ----

// A private 24-bit block of our layout from what the clipboard offers; null when it offers no
// picture that can be read or held.
DibHandle PictureFromMimeData(const QMimeData& data);
// A BMP file: one of our own pictures is taken byte for byte, any other BMP is converted.
DibHandle PictureFromBmpBytes(const QByteArray& bytes);
DibHandle PictureFromImage(const QImage& image);
// Whether a paste would find a picture (the enabled state of Paste).
bool OffersPicture(const QMimeData* data);
