#include "programs/entry.h"
#include "programs/variants.h"

int main(int argc, char** argv)
{
    return programs::run(argc, argv, programs::corvenna());
}
