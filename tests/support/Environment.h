#pragma once

#include <string>

namespace QuorvaneTest {

// Sets or removes a variable of this process's environment (children inherit it).
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace QuorvaneTest
