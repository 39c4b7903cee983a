#include "Program.h"

int main(int argc, char **argv) {
    return brevita::RunBrevita(argc, argv);
}
