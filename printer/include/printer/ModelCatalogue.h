#pragma once
// The printer family this service object serves: how a model is recognised
// in a logical device name, and the values each model loads at open. Pure
// data and lookups, no I/O.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace printer {

// Model numbers the whole print path tests. K93 shares K92's number and is
// told apart by its sub-type.
namespace model {
inline constexpr std::int32_t H81 = 1, A16 = 2, K92 = 3, G72 = 4, B21 = 5, E50 = 7, K91 = 8, A14 = 9,
                              C30 = 10, H80 = 11, K90 = 12, A12 = 17, G71 = 18, C31 = 19, F60 = 20,
                              G70 = 21, A14X = 23, A17 = 24, A15 = 25, B20 = 27, A10X = 28, A18 = 29,
                              D40 = 30;
// A device name that names no model: matches no listed model, so every
// per-model rule takes its default branch.
inline constexpr std::int32_t None = 0;
inline constexpr std::int32_t K93SubType = 6;
}  // namespace model

// What a model loads into the receipt station at open. kKeep: the value is
// not touched and the object keeps what it had.
inline constexpr std::int32_t kKeep = -1;

struct ReceiptValues {
    std::int32_t dpi;
    std::int32_t printWidth;  // dots
    std::int32_t charWidth;   // dots
    std::int32_t protocol;    // handed unchanged to every port call
    std::int32_t lineWidth;   // RecLineWidth, dots
    std::int32_t lineChars;
    std::int32_t lineHeight;   // dots
    std::int32_t lineSpacing;  // dots
    std::int32_t linesToPaperCut;
    std::int32_t sidewaysMaxChars;
    std::int32_t sidewaysMaxLines;
};

struct ModelEntry {
    std::string_view text;  // searched for in the device name, case counts
    std::int32_t number;
    std::int32_t subType;
    std::string_view deviceName;  // what DeviceName reports
    ReceiptValues values;
};

// The catalogue in detection order: the first text found anywhere in a
// device name decides, so longer codes come before the codes they contain
// ("A14X" before "A14").
std::span<const ModelEntry> detectionOrder();

// Null when the name contains none of the texts.
const ModelEntry* detectModel(std::string_view deviceName);

// The model-derived settings an object holds. A new object holds these
// defaults until its first open.
struct ModelSettings {
    std::int32_t number = model::None;
    std::int32_t subType = 0;
    std::string deviceName;  // empty until a model was found
    std::int32_t dpi = 180;
    std::int32_t printWidth = 640;
    std::int32_t charWidth = 12;
    std::int32_t protocol = 4;
    std::int32_t recLineWidth = 0;
    std::int32_t recLineChars = 0;
    std::int32_t recLineHeight = 0;
    std::int32_t recLineSpacing = 0;
    std::int32_t recLinesToPaperCut = 0;
    std::int32_t recSidewaysMaxChars = 0;
    std::int32_t recSidewaysMaxLines = 0;
    // Journal and slip stations exist on F60 only.
    std::int32_t jrnLineChars = 0;
    std::int32_t jrnLineHeight = 0;
    std::int32_t jrnLineSpacing = 0;
    std::int32_t jrnLineWidth = 0;
    std::int32_t slpLineChars = 0;
    std::int32_t slpLineHeight = 0;
    std::int32_t slpLineSpacing = 0;
    std::int32_t slpLineWidth = 0;
};

// OpenService and its older twin Open load three values differently.
enum class OpenEntry { OpenService, Open };

// Applies the detection result for `deviceName` to `settings`: model
// number, sub-type, reported name and the values of the model's row; values
// marked kKeep, and everything but the protocol when no model is found, stay
// as they were.
void loadModelSettings(std::string_view deviceName, OpenEntry entry, ModelSettings* settings);

}  // namespace printer
