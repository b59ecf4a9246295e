#include <cstdio>
#include <string>
#include <vector>

#include "Backend.h"

int main(int argc, char** argv, char** envp)
{
    // The scheduler reads our messages line by line as they come.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::vector<std::string> environment;
    for (char** e = envp; e && *e; ++e) environment.emplace_back(*e);
    return Backend::Run(argc, argv, environment);
}
