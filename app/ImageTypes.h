#pragma once

// The four image types of the instrument as the main window's image-type box
// offers them: their names from [ExperimentSettings] ImageTypeName1 to
// ImageTypeName4 of the main settings file, and a copy of the box's text that
// any thread may read (live view, captures and scripts run off the
// user-interface thread, and the box itself may be touched only there).

#include <array>
#include <functional>
#include <string>

constexpr int kImageTypeCount = 4;
using ImageTypeNames = std::array<std::string, kImageTypeCount>;

// A name counts as set when it holds a character other than blank and tab.
bool IsImageTypeNameSet(const std::string& name);

// ImageTypeName1..4 of the settings file (1023 characters each; empty when missing).
ImageTypeNames ReadImageTypeNames(const char* settingsFile);

// Index of the first set name among types `from`..3, or -1.
int FirstSetImageType(const ImageTypeNames& names, int from);

// Index of the first type whose name equals `text` byte for byte (letter
// case and blanks count), or -1.
int ImageTypeIndexOfName(const ImageTypeNames& names, const std::string& text);

// The image-type box as the program's threads see it.
namespace ImageTypeBox {

// The toolbar that owns the box installs how the box shows a text (it runs
// on the user-interface thread), and marks whether the box exists.
void Attach(std::function<void(const std::string&)> showText);
void Detach();
bool Exists();

// The text the box shows now.
std::string Text();
// Called by the box when its text changes (the user picks or types a name).
void TextChanged(const std::string& text);

// Makes the box show the first set name among image types index + 1 to 4
// (index 0..3). False for an index above 3 or when none of them is set.
// Any thread; the box itself changes on the user-interface thread.
bool ShowImageType(int index);

// 0..3: the type whose name equals the box's text exactly; -1 when none does;
// 0 while the box does not exist.
signed char GetSelectedImageTypeIndex();

}  // namespace ImageTypeBox
