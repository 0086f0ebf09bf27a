// Storage of the run's options and answers (session.h).
#include "run/session.h"

SessionState Session;
