// The main window's design, written once and read by both front-ends (Qt and
// the system's own controls): caption, client size, and each control's kind,
// caption, rectangle and font, in twips (1440 per inch), in tab order.
#pragma once

#include <array>

namespace ui::design {

enum class Kind { PushButton, OptionButton };

// A font the design asks for by name; the other controls use the window's default.
struct Font {
    const char* family;
    double pointSize;
    int weight;
};

struct Control {
    Kind kind;
    const char* caption; // UTF-8; no access keys
    int left, top, width, height;
    const Font* font; // null: the window's default font
};

inline constexpr char kCaption[] = "Verifica Conversione & Prestazioni";
inline constexpr int kClientWidth = 4680;
inline constexpr int kClientHeight = 3195;

inline constexpr Font kOptionFont = {"MS Sans Serif", 9.75, 700};

// Indices into kControls, which lists the controls in tab order (also their creation order).
enum ControlIndex { Command1, Command2, Option1, Option2 };

inline constexpr std::array<Control, 4> kControls = {{
    {Kind::PushButton, "Quendril", 480, 1200, 1815, 495, nullptr},                 // Command1
    {Kind::PushButton, "StringToArray", 480, 1800, 1815, 495, nullptr},            // Command2
    {Kind::OptionButton, "Utilizza la DLL", 480, 120, 3135, 495, &kOptionFont},     // Option1
    {Kind::OptionButton, "Utilizza il Codice VB", 480, 600, 3375, 375, &kOptionFont}, // Option2
}};
// The option selected at start.
inline constexpr ControlIndex kSelectedAtStart = Option1;

// A length in twips as pixels at dpi dots per inch, rounded to the nearest pixel.
constexpr int toPixels(int twips, int dpi)
{
    return (twips * dpi + 720) / 1440;
}

} // namespace ui::design
