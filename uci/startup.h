// Program start-up, command line, batch-mode dispatch and shutdown.
#pragma once

int TeskMain(int argc, char** argv);
