// The real system's layer: its calls are in native_posix.cpp or
// native_windows.cpp, one file for each system.
#pragma once

#include "support/native_layer.h"

namespace quenrix::native {

class RealSystem final : public Layer {
  public:
#define QUENRIX_REAL_CALL(result, answer, name, parameters, arguments, path) \
    result name parameters override;
    QUENRIX_NATIVE_CALLS(QUENRIX_REAL_CALL)
#undef QUENRIX_REAL_CALL
};

}  // namespace quenrix::native
