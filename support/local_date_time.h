// A local date and time as the system's clock gives it.
#pragma once

namespace quenrix {

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

}  // namespace quenrix
