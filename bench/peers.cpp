// Other projects' noise, built here only to be measured beside ours.
#define STB_PERLIN_IMPLEMENTATION
#include <stb/stb_perlin.h>
