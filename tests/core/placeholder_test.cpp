#include <gtest/gtest.h>
// Removed once this folder has real tests.
TEST(Placeholder, Builds) {}
