#include "output_probe.h"
#include "file_channels.h"

std::int32_t CanCreateFile(const std::string& name)
{
    return CanOpenForWriting(name) ? 1 : 0;
}
