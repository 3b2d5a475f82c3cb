#include "DialogTemplate.h"

#include <string>

namespace platform::detail {

namespace {

// Layout in dialog units: texts every 16 units from the top, the buttons
// under them, the result label and its field under the buttons.
constexpr short kWidth = 186;
constexpr short kTextLeft = 17;
constexpr short kTextTop = 9;
constexpr short kTextStep = 16;
constexpr short kTextWidth = 155;
constexpr short kTextHeight = 10;
constexpr short kStartLeft = 27;
constexpr short kCloseLeft = 95;
constexpr short kButtonWidth = 50;
constexpr short kButtonHeight = 14;
constexpr short kResultLeft = 27;
constexpr short kResultLabelWidth = 45;
constexpr short kResultWidth = 125;
constexpr short kResultHeight = 13;
constexpr short kBottomMargin = 9;

// Texts that nothing addresses share the usual "no identifier".
constexpr WORD kStaticId = 0xFFFF;

// Predefined control classes, as the template names them by atom.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

class TemplateWriter {
public:
    void word(WORD value) { m_words.push_back(value); }
    void dword(DWORD value) {
        word(LOWORD(value));
        word(HIWORD(value));
    }
    // The texts are in the ANSI code page, as the service objects write them.
    void text(const std::string& value) {
        if (!value.empty()) {
            const int size = static_cast<int>(value.size());
            const int length = ::MultiByteToWideChar(CP_ACP, 0, value.data(), size, nullptr, 0);
            std::wstring wide(static_cast<std::size_t>(length), L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, value.data(), size, wide.data(), length);
            for (const wchar_t c : wide) {
                word(static_cast<WORD>(c));
            }
        }
        word(0);
    }
    void alignToDword() {
        if (m_words.size() % 2 != 0) {
            word(0);
        }
    }
    // DLGITEMTEMPLATE, then the class atom, the text and no creation data.
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom, const std::string& title) {
        alignToDword();
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);  // extended style
        for (const short value : {x, y, cx, cy}) {
            word(static_cast<WORD>(value));
        }
        word(id);
        word(0xFFFF);
        word(classAtom);
        text(title);
        word(0);
    }
    std::vector<WORD> take() { return std::move(m_words); }

private:
    std::vector<WORD> m_words;
};

}  // namespace

std::vector<WORD> buildDialogTemplate(const DialogDescription& description) {
    const auto lines = static_cast<short>(description.texts.size());
    const short buttonsTop = static_cast<short>(kTextTop + lines * kTextStep - 5);
    const short labelTop = static_cast<short>(buttonsTop + kButtonHeight + 7);
    const short resultTop = static_cast<short>(labelTop + kTextStep);
    const short height = static_cast<short>(resultTop + kResultHeight + kBottomMargin);

    TemplateWriter writer;
    writer.dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    writer.dword(0);  // extended style
    writer.word(static_cast<WORD>(lines + 4));
    for (const short value : {short{0}, short{0}, kWidth, height}) {
        writer.word(static_cast<WORD>(value));
    }
    writer.word(0);  // no menu
    writer.word(0);  // the system's dialog class
    writer.text(description.title);
    writer.word(8);  // point size of the font
    writer.text("MS Sans Serif");

    short top = kTextTop;
    for (const std::string& line : description.texts) {
        writer.item(SS_LEFT, kTextLeft, top, kTextWidth, kTextHeight, kStaticId, kStaticClass, line);
        top = static_cast<short>(top + kTextStep);
    }
    writer.item(BS_DEFPUSHBUTTON | WS_TABSTOP, kStartLeft, buttonsTop, kButtonWidth, kButtonHeight, kDialogStartId,
                kButtonClass, description.startButton);
    writer.item(BS_PUSHBUTTON | WS_TABSTOP, kCloseLeft, buttonsTop, kButtonWidth, kButtonHeight, kDialogCloseId,
                kButtonClass, description.closeButton);
    writer.item(SS_LEFT, kResultLeft, labelTop, kResultLabelWidth, kTextHeight, kStaticId, kStaticClass,
                description.resultLabel);
    writer.item(ES_LEFT | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kResultLeft, resultTop, kResultWidth,
                kResultHeight, kDialogResultId, kEditClass, "");
    return writer.take();
}

}  // namespace platform::detail
