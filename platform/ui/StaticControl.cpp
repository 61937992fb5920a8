#include "platform/ui/StaticControl.h"

StaticControl::StaticControl(std::string className, int id, DWORD style, std::string text, RECT rect, bool known)
    : Window(known ? Kind::Static : Kind::Generic, std::move(className), id, style, std::move(text), rect),
      known_(known) {}
