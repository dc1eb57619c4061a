#pragma once
// Creates the program's windows from their layouts. Each platform supplies
// one; a window is created hidden and destroyed with its object.

#include <memory>

#include "windows/startscreen.h"
#include "windows/vxweb.h"

namespace pagimor {

class FormFactory {
 public:
  virtual ~FormFactory() = default;
  [[nodiscard]] virtual std::unique_ptr<TForm2> CreateForm2() = 0;
  // Runs FormCreate before it returns.
  [[nodiscard]] virtual std::unique_ptr<TForm1> CreateForm1() = 0;
};

}  // namespace pagimor
