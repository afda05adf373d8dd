#include "entry.h"
#include "variants.h"

int main(int argc, char** argv)
{
    return programs::run(argc, argv, programs::corvenna());
}
