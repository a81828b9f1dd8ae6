// The caption Button1 shows while the main window counts down to the automatic repair.
#pragma once

#include <string>

// "开始修复(" + count as a decimal integer (a minus sign when negative) + ")".
std::string CountdownCaption(int count);
