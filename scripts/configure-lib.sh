# Shared by the scripts that build, sourced from the project's root folder.
#
# configure_build BUILD [CMAKE_OPTION...]
#   configures the build folder BUILD. A folder cmake has configured before keeps the generator
#   it was made with (cmake refuses another one: "Does not match the generator used
#   previously"), read from its CMakeCache.txt, whoever made it and how; a new folder is made
#   with Ninja, the generator every documented build uses.
# build_jobs
#   the number of parallel build jobs: ORVALIS_JOBS when set, else the number of processors.

configure_build() {
  local build=$1
  shift
  local generator=
  if [ -f "$build/CMakeCache.txt" ]; then
    generator=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$build/CMakeCache.txt")
  fi
  cmake -S . -B "$build" -G "${generator:-Ninja}" "$@" >/dev/null
}

build_jobs() {
  echo "${ORVALIS_JOBS:-$(nproc)}"
}
