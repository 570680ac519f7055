#include "run.h"

int main(int argc, char** argv) {
  return runTextmorph(argc, argv);
}
