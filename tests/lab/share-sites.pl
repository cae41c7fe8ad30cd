#!/usr/bin/perl
# The sites of the share suite (tests/lab/suites/storage-shares.sh), made and checked in one
# process each: in the lab guest every new process costs a tenth of a second or more.
#
# Usage: share-sites.pl make DIR REF TEXT_FILE COUNT SIZE [LAST_SIZE]
#          a folder DIR (root:www-data 0775) of COUNT pages pNN.html of SIZE bytes (the last one
#          LAST_SIZE), each nobody:www-data 0664 with one "</body>"; then as `record`
#        share-sites.pl record DIR REF TEXT_FILE
#          REF/orig: the pages as they are; REF/want: as the insertion of TEXT_FILE leaves them;
#          REF/stat: each page's "uid gid mode"
#        share-sites.pl check DIR REF UPGRADED KEEP
#          prints one line per difference: the first UPGRADED pages must equal REF/want and keep
#          the parts of REF/stat that KEEP names ("owner group mode"); the others must be as they
#          were in every way; DIR must hold nothing but the pages
#        share-sites.pl done DIR REF
#          prints the number of pages that hold the text, which must be the first ones, then one
#          line per page that is neither wholly as it was nor wholly with the text
#        share-sites.pl leftovers DIR REF
#          prints the names in DIR that are not its pages
use strict;
use warnings;

sub slurp {
  my ($path) = @_;
  open(my $f, '<:raw', $path) or return undef;
  local $/;
  my $bytes = <$f>;
  return defined $bytes ? $bytes : '';
}

sub spit {
  my ($path, $bytes) = @_;
  open(my $f, '>:raw', $path) or die "cannot write $path: $!\n";
  print $f $bytes or die "cannot write $path: $!\n";
  close($f) or die "cannot write $path: $!\n";
}

sub pages_of {
  my ($ref) = @_;
  opendir(my $d, "$ref/orig") or die "no reference in $ref\n";
  return sort grep { !/^\.\.?$/ } readdir($d);
}

sub attributes {
  my @st = lstat($_[0]) or return ();
  return ($st[4], $st[5], sprintf('%o', $st[2] & 07777));
}

sub record {
  my ($dir, $ref, $text_file) = @_;
  my $text = slurp($text_file);
  die "cannot read $text_file\n" unless defined $text;
  system('rm', '-rf', $ref) == 0 or die "cannot clear $ref\n";
  for my $sub ('', '/orig', '/want', '/stat') { mkdir("$ref$sub") or die "mkdir $ref$sub: $!\n" }
  opendir(my $d, $dir) or die "cannot list $dir: $!\n";
  for my $name (grep { !/^\.\.?$/ } readdir($d)) {
    my $page = slurp("$dir/$name");
    my $at = rindex($page, '</body>');
    spit("$ref/orig/$name", $page);
    spit("$ref/want/$name", substr($page, 0, $at) . "\r\n$text\r\n" . substr($page, $at));
    spit("$ref/stat/$name", join(' ', attributes("$dir/$name")));
  }
}

sub make {
  my ($dir, $ref, $text_file, $count, $size, $last) = @_;
  $last //= $size;
  my $www = getgrnam('www-data');
  my $nobody = getpwnam('nobody');
  -d $dir or mkdir($dir) or die "mkdir $dir: $!\n";
  chown(0, $www, $dir) and chmod(0775, $dir) or die "cannot set up $dir: $!\n";
  for my $i (1 .. $count) {
    my $name = sprintf('p%02d.html', $i);
    my $head = "<html><body><p>$name</p>\r\n";
    my $tail = "\r\n</body>\r\n</html>\r\n";
    my $bytes = $i == $count ? $last : $size;
    spit("$dir/$name", $head . ('.' x ($bytes - length($head) - length($tail))) . $tail);
    chown($nobody, $www, "$dir/$name") and chmod(0664, "$dir/$name") or die "$name: $!\n";
  }
  record($dir, $ref, $text_file);
}

sub leftovers {
  my ($dir, $ref) = @_;
  opendir(my $d, $dir) or return ("cannot list $dir: $!");
  return sort grep { !/^\.\.?$/ && !-e "$ref/orig/$_" } readdir($d);
}

sub check {
  my ($dir, $ref, $upgraded, $keep) = @_;
  my ($i, @problems) = (0);
  for my $name (pages_of($ref)) {
    my $new = ++$i <= $upgraded;
    my $want = slurp($new ? "$ref/want/$name" : "$ref/orig/$name");
    my $got = slurp("$dir/$name");
    if (!defined $got) { push @problems, "$name is gone"; next }
    push @problems, sprintf("%s: %d bytes, not the %d expected (%s)", $name, length($got),
                            length($want), $new ? 'it should hold the text' : 'it should be as it was')
      if $got ne $want;
    my @before = split(' ', slurp("$ref/stat/$name"));
    my @after = attributes("$dir/$name");
    my @what = ('owner', 'group', 'mode');
    for my $k (0 .. 2) {
      next if $new && index($keep, $what[$k]) < 0;
      push @problems, "$name: $what[$k] $after[$k], was $before[$k]" if $after[$k] ne $before[$k];
    }
  }
  # The first few say what went wrong; the rest is usually more of the same.
  push @problems, '... and ' . (@problems - 6) . ' more' if @problems > 8;
  splice(@problems, 6, -1) if @problems > 8;
  my @others = leftovers($dir, $ref);
  push @problems, 'left in the folder: ' . join(' ', @others) if @others;
  print map { "$_\n" } @problems;
}

sub done {
  my ($dir, $ref) = @_;
  my ($count, $old_seen, @problems) = (0, 0);
  for my $name (pages_of($ref)) {
    my $got = slurp("$dir/$name") // '';
    if ($got eq slurp("$ref/orig/$name")) {
      $old_seen = 1;
    } elsif (!$old_seen && $got eq slurp("$ref/want/$name")) {
      ++$count;
    } else {
      push @problems, "$name is neither wholly as it was nor wholly new, or new after an old page";
    }
  }
  print join("\n", $count, @problems), "\n";
}

my $command = shift @ARGV // '';
if ($command eq 'make') { make(@ARGV) }
elsif ($command eq 'record') { record(@ARGV) }
elsif ($command eq 'check') { check(@ARGV) }
elsif ($command eq 'done') { done(@ARGV) }
elsif ($command eq 'leftovers') { print map { "$_\n" } leftovers(@ARGV) }
else { die "usage: share-sites.pl make|record|check|done|leftovers DIR REF ...\n" }
