#pragma once
// A receipt that shows most of what the printers draw, as printer command
// bytes: sizes, alignment, styles, a barcode, a bit image, an upside-down
// line and a page-mode block, ending with a cut. Tests check its picture,
// and the emulator_reference_receipt program draws it for anyone to look at.
//
// For a printer with 30-dot line spacing (the 180-dpi models) the receipt
// is laid out like this, in dots from its top (x from the left end):
//    0- 47  "CORVANE" twice as wide and tall, centred
//   48- 71  "Left aligned" in font A
//   78-101  "Right aligned", right aligned
//  108-131  "Bold" in bold, "Underlined" underlined
//  138-154  "Font B" in font B
//  168-273  Code 39 "CORVANE", 2-dot modules, bars 80 dots tall from 168,
//           human-readable text below them, centred
//  274-321  a solid black bit image, 128 x 48, at the left end
//  322-345  "UPSIDE DOWN" printed upside down (so it ends up at the right)
//  352-471  a page-mode block 120 dots tall printed top to bottom: the
//           text "PAGE MODE" reads down the right edge, starting at its top
//  then three line feeds (90 dots) and a full cut at 562.
#include "emulator/ModelCatalogue.h"
#include "emulator/VirtualPrinter.h"

namespace emulator {

Bytes referenceReceipt(const ModelInfo& model);

}  // namespace emulator
