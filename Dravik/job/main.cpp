#include "Dravik.h"

int main(int argc, char** argv)
{
    // Exit code -1 reaches the parent as status 255.
    return RunJob(argc, argv) & 0xff;
}
