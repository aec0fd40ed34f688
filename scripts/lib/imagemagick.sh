# ImageMagick's own tools, whatever else of the same names comes first on the PATH (sourced,
# not run). Version 7 runs each as "magick TOOL"; earlier versions install TOOL-imN.qNN beside
# TOOL, so no release's name is written in here.

# imagemagick TOOL ARGS...: runs ImageMagick's TOOL (convert, import...), or says it is missing.
imagemagick() {
  local tool=$1 candidate
  shift
  if command -v magick >/dev/null; then
    magick "$tool" "$@"
    return
  fi
  for candidate in $(compgen -c | grep -E "^$tool-im[0-9]" | sort -u) "$tool"; do
    if command -v "$candidate" >/dev/null && "$candidate" -version 2>/dev/null | grep -q ImageMagick; then
      "$candidate" "$@"
      return
    fi
  done
  echo "ImageMagick's $tool not found: install the Debian package imagemagick" >&2
  return 1
}
