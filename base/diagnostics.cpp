#include "base/diagnostics.h"

#include <ostream>

void Diagnostics::reportError(std::string_view message) {
  *sink_ << "Error at line " << line_ << " : " << message << '\n';
}

void Diagnostics::reportBadProperty() { *sink_ << "Bad property\n"; }
