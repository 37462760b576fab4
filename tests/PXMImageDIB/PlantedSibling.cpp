// A library planted in a folder under the host module's name: loading it leaves a mark in the
// current folder, which the tests look for.
#include <cstdio>

__attribute__((constructor)) static void MarkLoaded() {
  if (std::FILE* mark = std::fopen("planted-sibling-was-loaded", "w")) std::fclose(mark);
}
