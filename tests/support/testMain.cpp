// Test entry point: no error logs are written unless a test asks for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    for (unsigned mask = 0; mask < 16; ++mask) {
        std::string name = "temp";
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i))
                name[static_cast<size_t>(i)] = static_cast<char>(name[static_cast<size_t>(i)] - 'a' + 'A');
        }
        unsetenv(name.c_str());
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
