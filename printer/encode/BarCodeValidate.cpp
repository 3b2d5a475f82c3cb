// What each symbology's data may hold, as the printers' GS k takes it. Data
// the printer would refuse, or print as a barcode no scanner reads, is
// refused before anything is sent.
#include <algorithm>
#include <string_view>

#include "printer/encode/BarCodeEncoder.h"

namespace printer {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view data) { return std::all_of(data.begin(), data.end(), isDigit); }

bool lengthIn(std::string_view data, std::size_t low, std::size_t high)
{
    return data.size() >= low && data.size() <= high;
}

// The GTIN check digit (UPC-A, EAN-13, EAN-8): weights 3 and 1 from the
// right, the digit just before the check weighing 3.
char checkDigit(std::string_view digits)
{
    int sum = 0;
    int weight = 3;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = 4 - weight;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// With the check digit written: it must be the right one. Without: the
// printer adds it.
bool gtin(std::string_view data, std::size_t withoutCheck)
{
    if (!allDigits(data) || !lengthIn(data, withoutCheck, withoutCheck + 1)) return false;
    return data.size() == withoutCheck || checkDigit(data.substr(0, withoutCheck)) == data.back();
}

// UPC-E: six digits, optionally led by the number system (0 or 1) and
// followed by the check digit, which is that of the UPC-A the six digits
// stand for.
bool upcE(std::string_view data)
{
    if (!allDigits(data) || !lengthIn(data, 6, 8)) return false;
    if (data.size() == 6) return true;
    if (data[0] != '0' && data[0] != '1') return false;
    if (data.size() == 7) return true;
    const std::string_view x = data.substr(1, 6);
    std::string upcA(1, data[0]);
    switch (x[5]) {
    case '0':
    case '1':
    case '2':
        upcA += std::string{x[0], x[1], x[5], '0', '0', '0', '0', x[2], x[3], x[4]};
        break;
    case '3':
        upcA += std::string{x[0], x[1], x[2], '0', '0', '0', '0', '0', x[3], x[4]};
        break;
    case '4':
        upcA += std::string{x[0], x[1], x[2], x[3], '0', '0', '0', '0', '0', x[4]};
        break;
    default:
        upcA += std::string{x[0], x[1], x[2], x[3], x[4], '0', '0', '0', '0', x[5]};
        break;
    }
    return checkDigit(upcA) == data[7];
}

bool code39(std::string_view data)
{
    // '*' is the start and stop character: the printer adds it, the data
    // may carry it at either end but nowhere else.
    if (!data.empty() && data.front() == '*') data.remove_prefix(1);
    if (!data.empty() && data.back() == '*') data.remove_suffix(1);
    constexpr std::string_view kSymbols = " $%+-./";
    return !data.empty() && std::all_of(data.begin(), data.end(), [&](char c) {
        return isDigit(c) || (c >= 'A' && c <= 'Z') || kSymbols.find(c) != std::string_view::npos;
    });
}

bool codabar(std::string_view data)
{
    // A-D start and stop the symbol; missing ones are added when it is
    // sent, but inside the data they would end it early.
    const auto startStop = [](char c) { return c >= 'A' && c <= 'D'; };
    if (!data.empty() && startStop(data.front())) data.remove_prefix(1);
    if (!data.empty() && startStop(data.back())) data.remove_suffix(1);
    constexpr std::string_view kSymbols = "-$:/.+";
    return !data.empty() && std::all_of(data.begin(), data.end(), [&](char c) {
        return isDigit(c) || kSymbols.find(c) != std::string_view::npos;
    });
}

bool sevenBit(std::string_view data)
{
    return !data.empty() &&
           std::all_of(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Code 128: seven-bit characters; '{' starts a code-set or function escape
// ({A {B {C, {S, {1-{4, {{ for a brace); in code set C each byte is a digit
// pair 0-99.
bool code128(std::string_view data)
{
    if (!sevenBit(data)) return false;
    bool setC = false;
    bool symbols = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c != '{') {
            if (setC && c > 99) return false;
            symbols = true;
            continue;
        }
        if (++i == data.size()) return false;
        const char next = data[i];
        if (next == 'A' || next == 'B' || next == 'C') {
            setC = next == 'C';
        } else if (next == '{' || next == 'S' || (next >= '1' && next <= '4')) {
            symbols = true;
        } else {
            return false;
        }
    }
    return symbols;
}

}  // namespace

bool printsSymbology(std::int32_t model, std::int32_t symbology)
{
    switch (symbology) {
    case common::PTR_BCS_UPCA:
    case common::PTR_BCS_UPCE:
    case common::PTR_BCS_EAN8:
    case common::PTR_BCS_EAN13:
    case common::PTR_BCS_ITF:
    case common::PTR_BCS_Codabar:
    case common::PTR_BCS_Code39:
    case common::PTR_BCS_Code93:
    case common::PTR_BCS_Code128:
        return printsBarCodes(model);
    case common::PTR_BCS_PDF417:
    case common::PTR_BCS_MAXICODE:
    case common::PTR_BCS_QRCODE:
        return printsBarCodes(model) && printsTwoDimensionalCodes(model);
    default:
        return false;
    }
}

bool validBarCodeData(std::int32_t symbology, std::string_view data)
{
    switch (symbology) {
    case common::PTR_BCS_UPCA:
        return gtin(data, 11);
    case common::PTR_BCS_UPCE:
        return upcE(data);
    case common::PTR_BCS_EAN8:
        return gtin(data, 7);
    case common::PTR_BCS_EAN13:
        return gtin(data, 12);
    case common::PTR_BCS_ITF:
        return !data.empty() && data.size() % 2 == 0 && allDigits(data);
    case common::PTR_BCS_Codabar:
        return codabar(data);
    case common::PTR_BCS_Code39:
        return code39(data);
    case common::PTR_BCS_Code93:
        return sevenBit(data);
    case common::PTR_BCS_Code128:
        return code128(data);
    case common::PTR_BCS_PDF417:
    case common::PTR_BCS_MAXICODE:
        return !data.empty();
    case common::PTR_BCS_QRCODE:
        return qrSymbolVersion(data) > 0;
    default:
        return false;
    }
}

}  // namespace printer
