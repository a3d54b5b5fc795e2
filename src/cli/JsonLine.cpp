#include "JsonLine.h"

std::string JsonLine::Dump(const nlohmann::json& object)
{
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void JsonLine::Write(std::FILE* out, const nlohmann::json& object)
{
    const std::string line = Dump(object) + "\n";
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}
