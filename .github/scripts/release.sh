#!/usr/bin/env bash
# The release job of .github/workflows/test-and-release.yml: makes the release of the version in
# CMakeLists.txt, v<version>, from the package that the test job built and checked, carried here
# in FOLDER (Skarvel-<version>.zip, SHA256SUMS, the .toolchain notes and the .zip.commit).
#   - a pushed tag must be v<version>, else this fails before anything is released;
#   - a push of the default branch tags its commit v<version>, unless the tag is there already;
#   - a push of any other branch releases nothing.
# A version that has a release is left alone, so that a re-run, a later push at the same version
# and a branch and its tag pushed together all succeed without touching it.
# The release carries the zip and SHA256SUMS; its notes are the version's entry of CHANGELOG.md
# and the compilers and packages that built the zip.
# Run from the checkout, with GITHUB_REF, GITHUB_REPOSITORY and DEFAULT_BRANCH set, gh logged in
# and `git push origin` allowed.
#
#   .github/scripts/release.sh FOLDER
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
carried=$1
: "${GITHUB_REF:?}" "${GITHUB_REPOSITORY:?}" "${DEFAULT_BRANCH:?}"

fail() {
    echo "error: $1" >&2
    shift
    [ $# -eq 0 ] || printf '       %s\n' "$@" >&2
    exit 1
}

version=$(sed -n 's/^project(Skarvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "CMakeLists.txt has no line project(Skarvel VERSION ...)."
tag=v$version
commit=$(git rev-parse HEAD)

case $GITHUB_REF in
refs/tags/*)
    [ "${GITHUB_REF#refs/tags/}" = "$tag" ] ||
        fail "the pushed tag ${GITHUB_REF#refs/tags/} does not name the version $version of" \
            "CMakeLists.txt, so nothing is released. Delete that tag; the version's tag is $tag."
    ;;
"refs/heads/$DEFAULT_BRANCH") ;;
*)
    echo "Nothing to release: $GITHUB_REF is neither the branch $DEFAULT_BRANCH nor a tag."
    exit 0
    ;;
esac

echo "== Asking whether $tag has a release"
if draft=$(gh release view "$tag" --repo "$GITHUB_REPOSITORY" --json isDraft --jq .isDraft 2>&1); then
    [ "$draft" != true ] ||
        fail "$tag has a draft release, which this job does not finish." \
            "Publish it or delete it on the repository's Releases page, then re-run the job."
    echo "$tag has its release already; it is left as it is."
    exit 0
fi
[[ $draft == *"release not found"* ]] || fail "gh could not tell whether $tag has a release:" "$draft"

echo "== Checking the package the test job carried here from $carried"
zip=Skarvel-$version.zip
for file in "$zip" SHA256SUMS "Skarvel-$version.toolchain" "$zip.commit"; do
    [ -f "$carried/$file" ] || fail "the carried package has no $file; the test job writes it."
done
[ "$(cat "$carried/SHA256SUMS")" = "$(cd "$carried" && sha256sum "$zip")" ] ||
    fail "$zip does not match the SHA256SUMS the test job wrote beside it."
[ "$(cat "$carried/$zip.commit")" = "$commit" ] ||
    fail "the carried $zip was packed from $(cat "$carried/$zip.commit"), not from $commit."

notes=$(mktemp)
trap 'rm -f "$notes"' EXIT
# The version's entry: the lines after its heading, up to the next version's.
entry=$(awk -v heading="## $version" '$0 == heading { on = 1; next } /^## / { on = 0 } on' CHANGELOG.md)
[ -n "${entry//[[:space:]]/}" ] ||
    fail "CHANGELOG.md has no entry under a heading '## $version'; write one, and push again."
{
    printf '%s\n\n' "$(sed -e '/./,$!d' <<<"$entry")"
    echo "Built from $commit on Debian 12 with these compilers and packages:"
    echo
    echo '```text'
    cat "$carried/Skarvel-$version.toolchain"
    echo '```'
    echo
    echo "docs/building.md, Releasing, says how to build the same bytes with them."
} >"$notes"

tagged=$(git ls-remote origin "refs/tags/$tag" "refs/tags/$tag^{}" | tail -n 1 | cut -f 1)
if [ -z "$tagged" ]; then
    echo "== Tagging $commit as $tag"
    git push origin "$commit:refs/tags/$tag"
elif [ "$tagged" != "$commit" ]; then
    fail "the tag $tag names $tagged, not this commit $commit, and has no release." \
        "Release that commit (re-run its workflow), or give this one a new version."
fi

echo "== Making the release $tag with $zip and SHA256SUMS"
gh release create "$tag" --repo "$GITHUB_REPOSITORY" --verify-tag --title "Skarvel $version" \
    --notes-file "$notes" "$carried/$zip" "$carried/SHA256SUMS"
