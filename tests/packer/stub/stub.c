/* A tiny Windows program standing in for the engine in the packer's tests.
   It looks up the RCDATA resource named by its first argument and prints its
   size, so that a packed copy can also be checked by the real loader. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HRSRC r = FindResourceA(NULL, argv[1], MAKEINTRESOURCEA(10));
  if (!r) return 1;
  printf("%lu\n", (unsigned long)SizeofResource(NULL, r));
  return 0;
}
