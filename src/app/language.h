#pragma once

namespace veltro {

// The program's one language switch (the checked "English" menu item); the INI key `Language` stores
// the number.
enum class Language { English = 1, Italian = 2 };

} // namespace veltro
