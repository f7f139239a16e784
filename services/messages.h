#pragma once
// The two services through which the program reports to the user.
#include "text.h"
#include <cstdint>
#include <functional>
#include <string>

// Caption of every error box; set once at start-up, to ProgramErrorCaption by both programs.
extern FixedText<40> ErrorCaption;
constexpr char ProgramErrorCaption[] = "EBCDIC-ASCII Error";

// A blank before a number that is not negative, "-" before a negative one; digits is the
// count of significant digits (15, or 7 for the file-dialog failure code).
std::string NumberToText(double value, int digits = 15);

// Shows an ownerless box; an empty caption becomes "Halvernook", only the low 16 bits of
// style reach the system. Returns the button pressed.
int ShowMessage(const std::string& text, const std::string& caption, std::uint32_t style);

// Tests and console programs take the boxes here instead of the screen. The sink sees the
// caption and style exactly as the system would. An empty sink restores the real box.
using MessageSink = std::function<int(const std::string& text, const std::string& caption,
                                      unsigned style)>;
MessageSink SetMessageSink(MessageSink sink);
