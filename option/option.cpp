#include "option/option.h"

void TOption::Calc() {
  if (verbose) {
    lib_info = true;
  }
  if (help) {
    verbose = true;
  }
}
