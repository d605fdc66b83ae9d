#include <stdio.h>

int gAddonAnswer = 42;

int addon_answer(void) {
  return gAddonAnswer;
}

// Makes the add-on depend on the C library, whose symbols must not count as the add-on's own.
void addon_print(void) {
  puts("addon");
}
