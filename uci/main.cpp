#include "uci/startup.h"

int main(int argc, char** argv) { return TeskMain(argc, argv); }
