// The effective user of the process. Internal to platform/posix.
#ifndef PLATFORM_POSIX_EFFECTIVE_USER_H
#define PLATFORM_POSIX_EFFECTIVE_USER_H

#include <sys/types.h>

// Asked of the system once: neither program changes its user, so a run that
// opens thousands of files asks once instead of once a file.
uid_t plat_effective_user(void);

#endif
