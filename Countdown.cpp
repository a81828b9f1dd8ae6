#include "Countdown.h"

std::string CountdownCaption(int count) {
    return "开始修复(" + std::to_string(count) + ")";
}
