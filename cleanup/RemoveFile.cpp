#include <stdio.h>

#include "cleanup/Cleanup.h"

void RemoveFile(const char *name)
{
    remove(name);
}
