// Placeholder: the Windows host's tests.
#include <gtest/gtest.h>
