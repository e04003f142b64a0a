#include "editor/form1.h"

#include "form3.h"

namespace vornex {

void Form1::abt_Click() {}

} // namespace vornex
