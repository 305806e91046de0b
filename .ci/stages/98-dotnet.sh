# The .NET package Quorbel, packed from the library in build/ that stage
# 10-linux leaves (built here when it is missing) and from whichever of
# build-aarch64/, build-mingw/ and build-mingw32/ exist; the pack names the
# runtimes it took. It is then tested as users get it, from a folder feed:
# the xunit tests, and a new console app running the README's block, once
# with the package's own native file and once with only libquorbel.so.1,
# as Debian's libquorbel1 installs it.
if ! command -v dotnet >/dev/null; then
  echo "SKIPPED: no .NET SDK"
  exit 0
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1 \
  DOTNET_CLI_WORKLOAD_UPDATE_NOTIFY_DISABLE=1 DOTNET_GENERATE_ASPNET_CERTIFICATE=false
source=$PWD
[ -e build/export/libquorbel.so.1 ] ||
  { cmake --preset default >/dev/null && cmake --build --preset default --target quorbel; }
version=$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"; dotnet build-server shutdown >/dev/null 2>&1 || true' EXIT

# bindings/dotnet reads the version from CMakeLists.txt itself, so that a
# pack by hand gets it too: the package's name holds it to the version read
# here.
echo "-- pack Quorbel $version"
dotnet pack bindings/dotnet/Quorbel -c Release -o "$work/feed"
unzip -Z1 "$work/feed/Quorbel.$version.nupkg" | grep '^runtimes/'

# Restores see only the package just packed and the machine's offline
# folder, into a packages folder of their own: never a stale Quorbel of the
# same version from the user's cache.
cat >"$work/nuget.config" <<EOF
<configuration>
  <config><add key="globalPackagesFolder" value="$work/packages" /></config>
  <packageSources>
    <clear />
    <add key="quorbel" value="$work/feed" />
    <add key="offline" value="/opt/nuget/packages" />
  </packageSources>
</configuration>
EOF

echo "-- xunit tests, against the package"
tests=bindings/dotnet/Quorbel.Tests
dotnet restore $tests --configfile "$work/nuget.config"
dotnet test $tests -c Release --no-restore

echo "-- a new console app: dotnet add package Quorbel, the README's block"
[ "$(grep -c '^```csharp$' README.md)" = 1 ]
cd "$work"
dotnet new console -o app --no-restore >/dev/null
dotnet add app package Quorbel --version "$version" --no-restore
sed -n '/^```csharp$/,/^```$/{/^```/d;p}' "$source/README.md" >app/Program.cs
dotnet restore app
dotnet run --project app -c Release --no-restore
[ "$(stat -c %s hello.mid)" = 92 ]   # 52 + 5 notes of 8 bytes

echo "-- the same app with only libquorbel.so.1 on the loader's path"
output=$(echo app/bin/Release/net*/)
rm hello.mid "$output/runtimes/linux-x64/native/libquorbel.so"
mkdir soname && cp -L "$source/build/export/libquorbel.so.1" soname/
LD_LIBRARY_PATH=$work/soname dotnet "$output/app.dll"
[ "$(stat -c %s hello.mid)" = 92 ]
echo "dotnet: the package Quorbel $version, its tests, and a new app using it"
