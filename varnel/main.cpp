#include "varnel/ui/workstation.h"

int main(int argc, char** argv) { return varnel::RunWorkstation(argc, argv); }
