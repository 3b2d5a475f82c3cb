#pragma once
// The per-model answers of the property methods that depend on nothing but
// the model: capabilities, fixed values, lists, the RecLineChars pairs, the
// MapMode conversions and the code-table numbers. Pure functions.
#include <cstdint>
#include <string_view>

namespace printer {

// Stored dots in MapMode units (the getters). Integer division; a MapMode
// outside 1-4 leaves the dots unchanged.
std::int32_t dotsToUnits(std::int32_t mapMode, std::int32_t dots, std::int32_t dpi);

// MapMode units to dots (the setters). Metric uses the fixed factor 0.07
// whatever the resolution, as the printers were calibrated.
std::int32_t unitsToDots(std::int32_t mapMode, std::int32_t value, std::int32_t dpi);

struct LineChars {
    std::int32_t chars;
    std::int32_t height;  // dots: 24 for the smaller count, 17 for the larger
};

// A requested RecLineChars rounded to one of the model's two widths.
LineChars roundRecLineChars(std::int32_t model, std::int32_t requested);
// F60's journal and slip stations.
LineChars roundJrnLineChars(std::int32_t requested);
LineChars roundSlpLineChars(std::int32_t requested);

// The numeric properties whose value follows from the model alone. False
// for any other index, and for the journal and slip rows on a model without
// those stations (the caller's value then stays as it was).
bool fixedNumberProperty(std::int32_t model, std::int32_t index, std::int32_t* value);

// The string properties that follow from the model alone. False for any
// other index, and for the journal and slip lists on single-station models.
bool fixedStringProperty(std::int32_t model, std::int32_t index, std::string_view* value);

// True for the models that cannot print rotated (RotateSpecial refused).
bool isRotationLess(std::int32_t model);

// The n of the code-table command 1B 74 n for a code page; 0 for a code
// page the model does not know.
std::uint8_t codeTableFor(std::int32_t model, std::int32_t codePage);

}  // namespace printer
