#ifndef KXPASSSCHEDULES_H
#define KXPASSSCHEDULES_H

// Every kernel family's own schedule (KXPassSchedule.h), for the code that
// runs passes through the line runner: a family with a schedule adds its
// header here, so that every caller runs its passes the same way. Private
// to the library.

#include "KXGaussianSchedule.h"
#include "filters/KXLineRunner.h"
#include "KXThreeTapArea.h"

#endif // KXPASSSCHEDULES_H
