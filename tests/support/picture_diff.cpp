// picture_diff A.png B.png: exits 0 when the two pictures hold the same
// pixels, 1 (saying where they differ) when not, 2 on a wrong call.
#include <cstdio>
#include <string>

#include "pictures.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: picture_diff A.png B.png\n");
    return 2;
  }
  std::string difference;
  if (SamePixels(argv[1], argv[2], &difference)) return 0;
  std::fprintf(stderr, "%s and %s: %s\n", argv[1], argv[2], difference.c_str());
  return 1;
}
