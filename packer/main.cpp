#include "packer/cli.h"

int main(int argc, char** argv) { return packer::RunDispack(argc, argv); }
