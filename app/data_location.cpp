#include "app/data_location.h"

namespace tarnu {

DataLocation ChooseDataLocation(const DataLocationFacts& facts) {
  DataLocation beside{DataPlace::kProgramDirectory, facts.program_directory, false};
  if (facts.files_beside_program) return beside;
  if (facts.files_in_current_directory) {
    return {DataPlace::kCurrentDirectory, facts.current_directory, false};
  }
  const bool have_application_data = !facts.application_data.empty();
  if (have_application_data && facts.files_in_application_data) {
    return {DataPlace::kApplicationData, facts.application_data, false};
  }
  if (facts.program_directory_writable || !have_application_data) return beside;
  return {DataPlace::kApplicationData, facts.application_data, true};
}

}  // namespace tarnu
