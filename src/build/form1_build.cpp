#include "editor/form1.h"

#include "form2.h"
#include "form4.h"

namespace vornex {

void Form1::Asm_Click() {}

void Form1::Asmne_Click() {}

void Form1::EAE_Click() {}

void Form1::SetupECop_Click() {}

Form4 *Form1::form4()
{
    return m_form4;
}

} // namespace vornex
