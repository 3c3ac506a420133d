#include "world/kavoroom.h"
namespace kavo {
std::vector<glm::vec3> TKavoRoom::PlanRoute(const glm::vec3& start, const glm::vec3& goal) { return {start, goal}; }
}
