# Shared by scripts/test and scripts/run: package installation. Source it, don't run it.

cw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

cw_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Installs whatever scripts/debian-packages (or the list given) names that is not installed yet.
cw_install_packages() {
    local list=${1:-$cw_root/scripts/debian-packages} wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$list")
    for package in $wanted; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" != installed ]; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    cw_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    cw_as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
