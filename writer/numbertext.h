#pragma once
// Numbers as text in the documents the writer reads and writes, in the engine's
// timeline and in the lines it prints. Always with "." as the decimal point and no
// grouping, whatever locale the process runs in: the editor, the engine and the other
// programs that read these files expect nothing else.

#include <string>
#include <string_view>

namespace vk {

// Up to 10 significant digits, the shorter of plain and exponent notation ("0.5",
// "29.97002997", "1e-07"), as printf's "%.10g" writes it in the C locale.
std::string numberText(double value);
// A fixed number of decimals ("6.000" for 3), as printf's "%.*f" in the C locale.
std::string fixedText(double value, int decimals);
// The whole of `text` read as a decimal number ("1.5", "-2", "1e-07", ".5"; a leading
// "+" is allowed); false for anything else, "1,5" included.
bool parseNumberText(std::string_view text, double& out);

} // namespace vk
