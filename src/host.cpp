#include "host.h"

#ifdef _WIN32

bool to_local_time(std::time_t time, std::tm& local) { return localtime_s(&local, &time) == 0; }

#else

bool to_local_time(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }

#endif
