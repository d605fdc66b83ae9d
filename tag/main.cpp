#include "tag/driver.h"

int main(int argc, char* argv[]) {
  return tag_main(argc, argv);
}
