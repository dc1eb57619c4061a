#pragma once
// The loading window: a progress bar the start-up sequence moves while it
// writes the book's files. It has no behaviour of its own.

#include "platform/platform.h"

namespace pagimor {

class TForm2 : public Form {
 public:
  using Form::Form;
  [[nodiscard]] virtual ProgressBar& ProgBar1() = 0;
  [[nodiscard]] virtual Label& lblStatus() = 0;
  [[nodiscard]] virtual Label& lblVersion() = 0;
};

}  // namespace pagimor
